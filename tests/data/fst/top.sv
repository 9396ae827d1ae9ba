// SystemVerilog types and generate scopes, dumped by Verilator as FST. Build and run with
// "verilator --binary --trace-fst -Wno-fatal top.sv", then "obj_dir/Vtop".
`timescale 1ns/1ns
typedef enum logic [1:0] {IDLE, RUN, DONE} state_t;
typedef struct packed { logic valid; logic [2:0] data; } packet_t;

module stage #(parameter int ID = 0) (input logic clk, input logic [3:0] in, output logic [3:0] out);
  always_ff @(posedge clk) out <= in + 4'(ID);
endmodule

module top;
  logic clk = 0;
  bit [7:0] counter = 0;
  int signed_value = -5;
  state_t state = IDLE;
  packet_t packet = '0;
  logic [3:0] chain [0:2];
  assign chain[0] = counter[3:0];
  for (genvar i = 0; i < 2; i++) begin : gen
    stage #(.ID(i + 1)) u (.clk(clk), .in(chain[i]), .out(chain[i + 1]));
  end
  always #5 clk = ~clk;
  always_ff @(posedge clk) begin
    counter <= counter + 1;
    signed_value <= signed_value + 1;
    state <= counter > 3 ? DONE : RUN;
    packet <= '{valid: counter[0], data: counter[2:0]};
  end
  initial begin
    $dumpfile("verilator.fst");
    $dumpvars(0, top);
    #100 $finish;
  end
endmodule

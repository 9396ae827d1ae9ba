// A counter under a test bench, dumped by Icarus Verilog 11 as FST with zlib, FastLZ and the gzip wrapper:
//   iverilog -o counter counter.v && vvp counter -fst (-fst-speed, -fst-space)
`timescale 1ns/100ps
module counter #(parameter WIDTH = 4) (input clk, input rst, output reg [WIDTH-1:0] count, output wire wrap);
  assign wrap = &count;
  always @(posedge clk)
    if (rst) count <= 0;
    else count <= count + 1;
endmodule

module tb;
  reg clk = 0, rst = 1;
  wire [3:0] count;
  wire wrap;
  integer cycles = 0;
  real ratio = 0.0;
  reg [7:0] mixed = 8'bx1z0_10x1;
  reg [0:2] up = 3'b001;
  counter #(.WIDTH(4)) dut(.clk(clk), .rst(rst), .count(count), .wrap(wrap));
  always #5 clk = ~clk;
  always @(posedge clk) begin
    cycles = cycles - 1;
    ratio = cycles / 4.0;
  end
  initial begin
    $dumpfile("icarus.fst");
    $dumpvars(0, tb);
    #12 rst = 0;
    #2.5 mixed = 8'hA5;
    up = 3'b100;
    #50 $dumpoff; #30 $dumpon; #20 $dumpflush; #40 $dumpflush; #60 $finish;
  end
endmodule

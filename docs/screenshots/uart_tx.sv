module uart_tx (
  input  logic       clk,
  input  logic       rst,
  input  logic       start,
  input  logic [7:0] data,
  output logic       tx,
  output logic       busy
);
  typedef enum logic [1:0] { IDLE, START, DATA, STOP } state_t;
  state_t state;
  logic [2:0] bit_index;
  logic [7:0] shift;
  always_ff @(posedge clk) begin
    if (rst) begin
      state <= IDLE; tx <= 1'b1; busy <= 1'b0; bit_index <= 0; shift <= 0;
    end else begin
      case (state)
        IDLE:  if (start) begin state <= START; shift <= data; busy <= 1'b1; end
        START: begin tx <= 1'b0; state <= DATA; bit_index <= 0; end
        DATA:  begin
                 tx <= shift[0]; shift <= {1'b0, shift[7:1]};
                 bit_index <= bit_index + 1;
                 if (bit_index == 3'd7) state <= STOP;
               end
        STOP:  begin tx <= 1'b1; state <= IDLE; busy <= 1'b0; end
      endcase
    end
  end
endmodule

module top;
  logic clk = 0, rst = 1, start = 0;
  logic [7:0] data = 8'h00;
  logic tx, busy;
  uart_tx dut (.*);
  always #5 clk = ~clk;
  initial begin
    $dumpfile("uart.fst");
    $dumpvars(0, top);
    #22 rst = 0;
    repeat (4) begin
      @(negedge clk) begin start = 1; data = data + 8'h35; end
      @(negedge clk) start = 0;
      wait (!busy);
      #20;
    end
    $finish;
  end
endmodule

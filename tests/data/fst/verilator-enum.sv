// A three-state machine and a one-bit mode, each a typedef enum, for the enumeration names of FST files;
// the state is forced to 3, which no literal names, before the end.
module top;
  typedef enum logic [1:0] { IDLE = 2'd0, RUN = 2'd1, DONE = 2'd2 } state_t;
  typedef enum logic { SLOW, FAST } mode_t;
  logic clk = 0;
  state_t state = IDLE;
  mode_t mode = SLOW;
  logic [1:0] raw = 0;
  initial begin
    $dumpfile("verilator-enum.fst");
    $dumpvars(0, top);
    repeat (5) begin
      #5 clk = 1;
      #5 clk = 0;
    end
    #5 state = state_t'(2'd3);
    #5 $finish;
  end
  always @(posedge clk) begin
    raw <= raw + 1;
    mode <= mode == SLOW ? FAST : SLOW;
    case (state)
      IDLE: state <= RUN;
      RUN: state <= DONE;
      default: state <= IDLE;
    endcase
  end
endmodule

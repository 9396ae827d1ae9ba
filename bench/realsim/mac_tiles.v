// Tiles of a multiply-accumulate unit fed by a 12-bit LFSR, for Verilator: a 32-bit accumulator
// that changes at every cycle, a 4-bit phase, a valid flag once in 16 cycles.
module mac(input clk, input rst, input [11:0] seed, output reg [31:0] acc, output reg [11:0] sample,
           output reg [3:0] phase, output reg valid);
  always @(posedge clk)
    if (rst) begin
      acc <= 32'd0;
      sample <= seed;
      phase <= 4'd0;
      valid <= 1'b0;
    end else begin
      sample <= {sample[10:0], sample[11] ^ sample[10] ^ sample[9] ^ sample[3]};
      phase <= phase + 4'd1;
      valid <= phase == 4'd15;
      acc <= valid ? 32'd0 : acc + {20'd0, sample} * 32'd37;
    end
endmodule

module top;
  parameter TILES = 100;
  parameter CYCLES = 30000;
  reg clk = 0;
  reg rst = 1;
  genvar i;
  generate
    for (i = 0; i < TILES; i = i + 1) begin : t
      wire [31:0] acc;
      wire [11:0] sample;
      wire [3:0] phase;
      wire valid;
      mac u(.clk(clk), .rst(rst), .seed(12'hACE + i * 13), .acc(acc), .sample(sample), .phase(phase), .valid(valid));
    end
  endgenerate
  always #5 clk = ~clk;
  initial begin
    $dumpfile("mac_tiles.vcd");
    $dumpvars(0, top);
    #20 rst = 0;
    #(CYCLES * 10) $finish;
  end
endmodule

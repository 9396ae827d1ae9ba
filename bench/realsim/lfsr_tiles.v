`timescale 1ns / 1ps
// Tiles of a 16-bit LFSR and an 8-bit counter: few signals, many value changes, the way a
// simulator dumps a busy design.
module tile(input clk, input rst, input [15:0] seed, output reg [15:0] lfsr, output reg [7:0] count);
  always @(posedge clk)
    if (rst) begin
      lfsr <= seed;
      count <= 8'd0;
    end else begin
      lfsr <= {lfsr[14:0], lfsr[15] ^ lfsr[13] ^ lfsr[12] ^ lfsr[10]};
      count <= count + 8'd1;
    end
endmodule

module top;
  parameter TILES = 150;
  parameter CYCLES = 40000;
  reg clk = 0;
  reg rst = 1;
  genvar i;
  generate
    for (i = 0; i < TILES; i = i + 1) begin : t
      localparam [15:0] SEED = 16'hACE1 + i * 257;
      wire [15:0] lfsr;
      wire [7:0] count;
      tile u(.clk(clk), .rst(rst), .seed(SEED), .lfsr(lfsr), .count(count));
    end
  endgenerate
  always #5 clk = ~clk;
  initial begin
    $dumpfile("lfsr_tiles.vcd");
    $dumpvars(0, top);
    #20 rst = 0;
    #(CYCLES * 10) $finish;
  end
endmodule

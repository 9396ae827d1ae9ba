// A counter feeding a shift register, with 8- and 16-bit buses, for the bus screenshot.
`timescale 1ns / 1ps
module counter_tb;
    reg clk = 0;
    reg rst = 1;
    reg [7:0] count;
    reg [15:0] shift;
    reg [15:0] sum;

    always #5 clk = ~clk;

    always @(posedge clk) begin
        if (rst) begin
            count <= 8'h00;
            shift <= 16'h0001;
            sum <= 16'h0000;
        end else begin
            count <= count + 8'd3;
            shift <= {shift[14:0], shift[15] ^ shift[13]};
            sum <= sum + {8'h00, count};
        end
    end

    initial begin
        $dumpfile("counter.vcd");
        $dumpvars(0, counter_tb);
        #22 rst = 0;
        #200 $finish;
    end
endmodule

#!/bin/sh
# Regenerates the dumps behind the screenshots in docs/: counter.vcd (Icarus Verilog),
# nine_state.vcd (GHDL) and uart.fst (Verilator; the picture shows it with uart.json imported by
# File > Import View). Needs the Debian packages iverilog, ghdl and verilator.
set -e
cd "$(dirname "$0")"
iverilog -o counter.vvp counter.v
vvp -n counter.vvp > /dev/null
rm -f counter.vvp
ghdl -a --std=08 nine_state.vhd
ghdl -e --std=08 nine_state_tb
ghdl -r --std=08 nine_state_tb --vcd=nine_state.vcd --stop-time=250ns
ghdl --clean --std=08
rm -f work-obj08.cf
verilator --binary --trace-fst --timing -Wno-fatal --top-module top uart_tx.sv -o simv --Mdir obj_uart > /dev/null
./obj_uart/simv > /dev/null
rm -rf obj_uart
ls -l counter.vcd nine_state.vcd uart.fst

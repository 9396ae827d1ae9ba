#!/bin/sh
# Regenerates the dumps behind the screenshots in docs/: counter.vcd (Icarus Verilog) and
# nine_state.vcd (GHDL). Needs the Debian packages iverilog and ghdl.
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
ls -l counter.vcd nine_state.vcd

-- Nine-valued logic, vectors and integers, dumped by GHDL:
--   ghdl -a logic.vhdl && ghdl -e tb && ghdl -r tb --fst=ghdl.fst --stop-time=60ns
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity tb is
end entity;

architecture sim of tb is
  signal clk : std_logic := '0';
  signal line : std_logic;
  signal bus4 : std_logic_vector(3 downto 0);
  signal up : std_logic_vector(0 to 2) := "001";
  signal count : unsigned(3 downto 0) := (others => '0');
  signal steps : integer := 0;
  signal flag : boolean := false;
begin
  clk <= not clk after 5 ns;

  process (clk)
  begin
    if rising_edge(clk) then
      count <= count + 1;
      steps <= steps - 3;
    end if;
  end process;

  process
  begin
    wait for 12 ns;
    line <= 'H';
    bus4 <= "01ZX";
    wait for 10 ns;
    line <= 'L';
    bus4 <= "WLH-";
    up <= "100";
    flag <= true;
    wait for 10 ns;
    line <= '1';
    bus4 <= "1010";
    wait;
  end process;
end architecture;

-- Pairs of 16-bit LFSR tiles in std_logic: each pair drives one resolved byte and one flag, so the
-- dump holds every state of std_logic: U before the reset, Z while neither tile drives the byte,
-- X where both drive different bits, H and L from the weak flag drivers and W where they clash.
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity tile is
  port (clk, rst : in std_logic;
        seed : in std_logic_vector(15 downto 0);
        lfsr : out std_logic_vector(15 downto 0);
        data : out std_logic_vector(7 downto 0);
        flag : out std_logic);
end entity;

architecture rtl of tile is
  signal r : std_logic_vector(15 downto 0);
begin
  process (clk)
  begin
    if rising_edge(clk) then
      if rst = '1' then
        r <= seed;
      else
        r <= r(14 downto 0) & (r(15) xor r(13) xor r(12) xor r(10));
      end if;
    end if;
  end process;
  lfsr <= r;
  data <= r(11 downto 4) when r(15) = '1' else (others => 'Z');
  flag <= 'H' when r(2) = '1' else 'L';
end architecture;

library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity top is
  generic (PAIRS : natural := 60; CYCLES : natural := 40000);
end entity;

architecture sim of top is
  signal clk : std_logic := '0';
  signal rst : std_logic := 'U';
  signal done : boolean := false;
begin
  pair : for i in 0 to PAIRS - 1 generate
    signal lfsr : std_logic_vector(15 downto 0);
    signal data : std_logic_vector(7 downto 0);
    signal flag : std_logic;
  begin
    a : entity work.tile port map (clk, rst, std_logic_vector(to_unsigned((16#ACE1# + i * 257) mod 65536, 16)), lfsr, data, flag);
    b : entity work.tile port map (clk, rst, std_logic_vector(to_unsigned((16#1D0F# + i * 131) mod 65536, 16)), open, data, flag);
  end generate;

  clk <= not clk after 5 ns when not done;

  process
  begin
    wait for 12 ns;
    rst <= '1';
    wait for 20 ns;
    rst <= '0';
    wait for CYCLES * 10 ns;
    done <= true;
    wait;
  end process;
end architecture;

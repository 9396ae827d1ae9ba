-- std_logic_vectors that go through U, X, Z, W, L, H, - and known values, for the nine-state
-- screenshot.
library ieee;
use ieee.std_logic_1164.all;

entity nine_state_tb is
end entity;

architecture sim of nine_state_tb is
    signal clk : std_logic := '0';
    signal data : std_logic_vector(7 downto 0);
    signal bus16 : std_logic_vector(15 downto 0) := (others => 'Z');
    signal flag : std_logic;
begin
    clk <= not clk after 5 ns when now < 200 ns;

    process
    begin
        wait for 20 ns;
        data <= "XXXX0000";
        flag <= 'X';
        wait for 20 ns;
        data <= "10100101";
        bus16 <= x"BEEF";
        flag <= '1';
        wait for 30 ns;
        data <= "ZZZZ1111";
        bus16 <= "HHHHLLLL00001111";
        wait for 30 ns;
        data <= "WWWW-LH1";
        bus16 <= x"1234";
        flag <= '0';
        wait for 30 ns;
        data <= "LLLLHHHH";
        bus16 <= "----------------";
        wait for 30 ns;
        data <= x"3C";
        bus16 <= x"CAFE";
        flag <= 'H';
        wait for 40 ns;
        wait;
    end process;
end architecture;

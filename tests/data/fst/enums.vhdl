-- An enumeration, a character, a real and a bit vector, dumped by GHDL as FST strings and a real:
--   ghdl -a enums.vhdl && ghdl -e tb2 && ghdl -r tb2 --fst=ghdl-enums.fst --stop-time=40ns
entity tb2 is end entity;
architecture sim of tb2 is
  type state_t is (s_idle, s_run, s_done);
  signal st : state_t := s_idle;
  signal ch : character := 'a';
  signal r : real := 0.5;
  signal b : bit_vector(3 downto 0) := "0101";
begin
  process begin
    wait for 10 ns; st <= s_run; ch <= 'b'; r <= 1.25; b <= "1100";
    wait for 10 ns; st <= s_done; ch <= ' '; r <= -3.0;
    wait;
  end process;
end architecture;

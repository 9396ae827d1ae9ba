# tst_vcdlex includes the token numbers generated from vcd/vcd.y.
add_dependencies(tst_vcdlex dovlin_tables_vcd_yacc dovlin_tables_vcd_lex)

# tst_vcdlex includes the token numbers generated from vcd/vcd.y.
add_dependencies(tst_vcdlex dovlin_tables_vcd_yacc dovlin_tables_vcd_lex)
# It and the import's tests reach the scanner and parser behind the core's interface.
foreach(test tst_vcdlex tst_vcdimport tst_pargen)
  target_include_directories(${test} PRIVATE ${CMAKE_SOURCE_DIR}/ParGen ${CMAKE_BINARY_DIR}/vcd)
endforeach()

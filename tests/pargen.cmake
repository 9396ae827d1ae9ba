# Tables of the toy scanner and grammars that tst_pargen drives.
set(PARGEN_DATA ${CMAKE_CURRENT_SOURCE_DIR}/data/pargen)
dovlin_generate_scanner(toy RULES ${PARGEN_DATA}/toy.l NAME toy)
dovlin_generate_parser(calc GRAMMAR ${PARGEN_DATA}/calc.y NAME calc)
dovlin_generate_parser(chain GRAMMAR ${PARGEN_DATA}/chain.y NAME chain)
target_sources(tst_pargen PRIVATE ${toy} ${calc} ${chain})
target_include_directories(tst_pargen PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
# The runtime's and the import's own headers, which the core keeps to itself.
target_include_directories(tst_pargen PRIVATE ${CMAKE_SOURCE_DIR}/ParGen)
target_include_directories(tst_vcdimport PRIVATE ${CMAKE_SOURCE_DIR}/ParGen)

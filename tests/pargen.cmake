# Tables of the toy scanners and grammars that tst_pargen drives, in both table flavours.
set(PARGEN_DATA ${CMAKE_CURRENT_SOURCE_DIR}/data/pargen)
foreach(flavour fast compact)
  dovlin_generate_scanner(toy RULES ${PARGEN_DATA}/toy.l NAME toy_${flavour} FLAVOUR ${flavour})
  dovlin_generate_scanner(reject RULES ${PARGEN_DATA}/reject.l NAME reject_${flavour}
                          FLAVOUR ${flavour})
  dovlin_generate_parser(calc GRAMMAR ${PARGEN_DATA}/calc.y NAME calc_${flavour} FLAVOUR ${flavour})
  dovlin_generate_parser(chain GRAMMAR ${PARGEN_DATA}/chain.y NAME chain_${flavour}
                         FLAVOUR ${flavour})
  dovlin_generate_parser(words GRAMMAR ${PARGEN_DATA}/words.y NAME words_${flavour}
                         FLAVOUR ${flavour})
  target_sources(tst_pargen PRIVATE ${toy} ${reject} ${calc} ${chain} ${words})
endforeach()
target_include_directories(tst_pargen PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
# The runtime's and the import's own headers, which the core keeps to itself.
target_include_directories(tst_pargen PRIVATE ${CMAKE_SOURCE_DIR}/ParGen)
target_include_directories(tst_vcdimport PRIVATE ${CMAKE_SOURCE_DIR}/ParGen)

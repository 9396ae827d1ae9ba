# Grammar of VCD files, read by the vcd_yacc parser.
#
# Tokens are numbered from 257 in the order of the %token lines. A rule line is
#   <rule number> <action number> <left-hand side> : <right-hand side>
# and vcd_yacc::yyaction receives the action number (here the rule number - 1, or - for none).
# Rule 0, the start rule (vcd followed by the end of input), is implied.
#
# Declarations and simulation commands may come in any order. A $dumpvars, $dumpall, $dumpon or
# $dumpoff opens a section that the next $end outside any other command closes; time stamps may
# stand inside it, and the end of the file may close it.
#
# Time stamps and value changes, nearly all of a dump, extend the command list directly, so each
# costs one reduction.
#
# Actions read token texts from the scanner. A rule that ends in a token is reduced without a
# look-ahead, so its action still finds the text of that last token (a value change reads its
# identifier code this way); the texts of earlier tokens are kept by the single-token rules.

%token END TEXT_COMMAND UNKNOWN_COMMAND ENDDEFINITIONS SCOPE TIMESCALE UPSCOPE VAR
%token DUMP_COMMAND SIMULATION_TIME SCALAR_CHANGE SCALAR_VALUE VECTOR_VALUE REAL_VALUE
%token STRING_VALUE IDENTIFIER_CODE WORD ATTRBEGIN

%start vcd
%attribute 8
%stack 100

1   0   vcd : commands
2   -   commands : commands command
3   -   commands :
4   3   commands : commands SCALAR_CHANGE
5   4   commands : commands scalar_value IDENTIFIER_CODE
6   5   commands : commands vector_value IDENTIFIER_CODE
7   6   commands : commands real_value IDENTIFIER_CODE
8   7   commands : commands string_value IDENTIFIER_CODE
9   8   commands : commands SIMULATION_TIME
10  -   command : scope
11  -   command : var_declaration
12  -   command : skipped_command
13  -   command : timescale_command
14  13  command : ENDDEFINITIONS END
15  14  command : DUMP_COMMAND
16  15  command : END
17  16  scope : scope_begin scope_items UPSCOPE END
18  17  scope_begin : SCOPE scope_type scope_name END
19  18  scope_begin : SCOPE scope_type END
20  -   scope_type : WORD
21  20  scope_name : WORD
22  -   scope_items : scope_items scope_item
23  -   scope_items :
24  -   scope_item : scope
25  -   scope_item : var_declaration
26  -   scope_item : skipped_command
27  26  var_declaration : VAR var_type var_size var_code reference END
28  27  var_type : WORD
29  28  var_size : WORD
30  29  var_code : WORD
31  30  reference : WORD
32  31  reference : reference WORD
33  -   skipped_command : TEXT_COMMAND END
34  -   skipped_command : unknown_command END
35  34  unknown_command : UNKNOWN_COMMAND
36  35  timescale_command : TIMESCALE timescale_text END
37  36  timescale_text : WORD
38  37  timescale_text : timescale_text WORD
39  38  scalar_value : SCALAR_VALUE
40  39  vector_value : VECTOR_VALUE
41  40  real_value : REAL_VALUE
42  41  string_value : STRING_VALUE
43  -   command : attribute
44  -   scope_item : attribute
45  44  attribute : ATTRBEGIN attribute_words END
46  45  attribute_words : attribute_words WORD
47  46  attribute_words :

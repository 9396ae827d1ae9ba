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
# Actions read token texts from the scanner. A rule that ends in a token is reduced without a
# look-ahead, so its action still finds the text of that last token (a value change reads its
# identifier code this way); the texts of earlier tokens are kept by the single-token rules.

%token END TEXT_COMMAND UNKNOWN_COMMAND ENDDEFINITIONS SCOPE TIMESCALE UPSCOPE VAR
%token DUMP_COMMAND SIMULATION_TIME SCALAR_CHANGE SCALAR_VALUE VECTOR_VALUE REAL_VALUE
%token STRING_VALUE IDENTIFIER_CODE WORD

%start vcd
%attribute 8
%stack 100

1   0   vcd : commands
2   -   commands : commands command
3   -   commands :
4   -   command : scope
5   -   command : var_declaration
6   -   command : skipped_command
7   -   command : timescale_command
8   -   command : ENDDEFINITIONS END
9   8   command : DUMP_COMMAND
10  9   command : END
11  10  command : SIMULATION_TIME
12  -   command : value_change
13  12  scope : scope_begin scope_items UPSCOPE END
14  13  scope_begin : SCOPE scope_type scope_name END
15  14  scope_begin : SCOPE scope_type END
16  -   scope_type : WORD
17  16  scope_name : WORD
18  -   scope_items : scope_items scope_item
19  -   scope_items :
20  -   scope_item : scope
21  -   scope_item : var_declaration
22  -   scope_item : skipped_command
23  22  var_declaration : VAR var_type var_size var_code reference END
24  23  var_type : WORD
25  24  var_size : WORD
26  25  var_code : WORD
27  26  reference : WORD
28  27  reference : reference WORD
29  -   skipped_command : TEXT_COMMAND END
30  -   skipped_command : unknown_command END
31  30  unknown_command : UNKNOWN_COMMAND
32  31  timescale_command : TIMESCALE timescale_text END
33  32  timescale_text : WORD
34  33  timescale_text : timescale_text WORD
35  34  value_change : SCALAR_CHANGE
36  35  value_change : scalar_value IDENTIFIER_CODE
37  36  value_change : vector_value IDENTIFIER_CODE
38  37  value_change : real_value IDENTIFIER_CODE
39  38  value_change : STRING_VALUE IDENTIFIER_CODE
40  39  scalar_value : SCALAR_VALUE
41  40  vector_value : VECTOR_VALUE
42  41  real_value : REAL_VALUE

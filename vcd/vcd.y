# Grammar of VCD files, read by the vcd_yacc parser.
#
# Tokens are numbered from 257 in the order of the %token lines. A rule line is
#   <rule number> <action number> <left-hand side> : <right-hand side>
# and vcd_yacc::yyaction receives the action number (here the rule number - 1). Rule 0, the
# start rule (vcd_file followed by the end of input), is implied.
#
# The grammar is ambiguous after vcd_file (an empty scope_list) and after scope_begin (an empty
# scope_items); shifting wins, so the empty scope_list is reduced only for SCOPE and the empty
# scope_items only for UPSCOPE. Rules whose right-hand side is a single token are reduced
# without a look-ahead, so their actions can read the token's text.

%token END TEXT_COMMAND ENDDEFINITIONS SCOPE TIMESCALE UPSCOPE VAR
%token DUMPALL DUMPOFF DUMPON DUMPVARS
%token BINARY_VALUE BINARYVECTOR_VALUE DECIMAL_NUMBER REAL_VALUE SIMULATION_TIME
%token COLON LEFT_BRACKET RIGHT_BRACKET OTHER_CHAR IDENTIFIER IDENTIFIER_CODE
%token MODULE TASK FUNCTION BEGIN FORK
%token EVENT INTEGER PARAMETER REAL REG SUPPLY0 SUPPLY1 TIME TRI TRIAND TRIOR TRIREG TRI0 TRI1
%token WIRE WAND WOR
%token TIME_VALUE UNIT_S UNIT_MS UNIT_US UNIT_NS UNIT_PS UNIT_FS
%token BIT_REFERENCE RANGE_REFERENCE

%start vcd_file
%attribute 8
%stack 100

1   0   vcd_file : vcd_file declaration_command
2   1   vcd_file : vcd_file simulation_command
3   2   vcd_file :
4   3   declaration_command : text_command
5   4   declaration_command : timescale_command
6   5   declaration_command : scope_list
7   6   declaration_command : enddefinitions_command
8   7   text_command : TEXT_COMMAND END
9   8   text_command : TEXT_COMMAND text_chars END
10  9   timescale_command : TIMESCALE timescale_number time_unit END
11  10  timescale_command : TIMESCALE time_unit END
12  11  scope_list : scope_list scope
13  12  scope_list :
14  13  scope_begin :
15  14  scope : SCOPE scope_type name END scope_begin scope_items UPSCOPE END
16  15  scope_items : scope_items scope
17  16  scope_items : scope_items var_declaration
18  17  scope_items : scope
19  18  scope_items : var_declaration
20  19  scope_items :
21  20  var_declaration : VAR var_type var_size identifier_code reference END
22  21  enddefinitions_command : ENDDEFINITIONS END
23  22  number : DECIMAL_NUMBER
24  23  text_chars : text_chars OTHER_CHAR
25  24  text_chars : OTHER_CHAR
26  25  timescale_number : number
27  26  time_unit : UNIT_S
28  27  time_unit : UNIT_MS
29  28  time_unit : UNIT_US
30  29  time_unit : UNIT_NS
31  30  time_unit : UNIT_PS
32  31  time_unit : UNIT_FS
33  32  time_unit : TIME_VALUE
34  33  scope_type : MODULE
35  34  scope_type : TASK
36  35  scope_type : FUNCTION
37  36  scope_type : BEGIN
38  37  scope_type : FORK
39  38  var_type : EVENT
40  39  var_type : INTEGER
41  40  var_type : PARAMETER
42  41  var_type : REAL
43  42  var_type : REG
44  43  var_type : SUPPLY0
45  44  var_type : SUPPLY1
46  45  var_type : TIME
47  46  var_type : TRI
48  47  var_type : TRIAND
49  48  var_type : TRIOR
50  49  var_type : TRIREG
51  50  var_type : TRI0
52  51  var_type : TRI1
53  52  var_type : WIRE
54  53  var_type : WAND
55  54  var_type : WOR
56  55  name : UNIT_S
57  56  name : UNIT_MS
58  57  name : UNIT_US
59  58  name : UNIT_NS
60  59  name : UNIT_PS
61  60  name : UNIT_FS
62  61  name : BINARY_VALUE
63  62  name : BINARYVECTOR_VALUE
64  63  name : REAL_VALUE
65  64  name : IDENTIFIER
66  65  identifier_code : name
67  66  identifier_code : DECIMAL_NUMBER
68  67  identifier_code : TIME_VALUE
69  68  identifier_code : IDENTIFIER_CODE
70  69  identifier_code : BIT_REFERENCE
71  70  identifier_code : RANGE_REFERENCE
72  71  reference : name
73  72  reference : name LEFT_BRACKET number RIGHT_BRACKET
74  73  reference : name LEFT_BRACKET number COLON number RIGHT_BRACKET
75  74  reference : BIT_REFERENCE
76  75  reference : RANGE_REFERENCE
77  76  var_size : number
78  77  simulation_command : DUMPALL value_change_list END
79  78  simulation_command : DUMPOFF value_change_list END
80  79  simulation_command : DUMPON value_change_list END
81  80  simulation_command : DUMPVARS value_change_list END
82  81  simulation_command : value_change
83  82  simulation_command : SIMULATION_TIME
84  83  value_change_list : value_change_list value_change
85  84  value_change_list : value_change
86  85  value_change : BINARY_VALUE
87  86  value_change : vector_value identifier_code
88  87  value_change : real_value identifier_code
89  88  vector_value : BINARYVECTOR_VALUE
90  89  real_value : REAL_VALUE

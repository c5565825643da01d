#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Independent syntax check of the IEC 61131-3 files the program writes.

    check_iec.py ioconfig FILE...   program configuration elements
    check_iec.py vars FILE...       VAR_GLOBAL declarations with located variables

The grammars are written from the IEC 61131-3 syntax (program configuration,
global variable declarations, direct variables, comments) and share nothing
with the writer. Exit 0 when every file parses, 1 when one does not, 77 when
python3-lark is not installed (the test then counts as skipped).
"""
import sys

try:
    from lark import Lark
    from lark.exceptions import LarkError
except ImportError:
    print("python3-lark is not installed: syntax check skipped")
    sys.exit(77)

COMMON = r"""
    IDENT: /(?!(?i:END_VAR|VAR_GLOBAL|AT|RETAIN|NON_RETAIN|CONSTANT|PROGRAM|WITH)\b)[A-Za-z_][A-Za-z0-9_]*/
    INTEGER: /[+-]?((2#[01](_?[01])*)|(8#[0-7](_?[0-7])*)|(16#[0-9A-Fa-f](_?[0-9A-Fa-f])*)|[0-9](_?[0-9])*)/
    REAL: /[+-]?[0-9](_?[0-9])*\.[0-9](_?[0-9])*([eE][+-]?[0-9]+)?/
    STRING: /'([^'$]|\$.)*'/
    COMMENT: /\(\*(.|\n)*?\*\)/
    %import common.WS
    %ignore WS
    %ignore COMMENT
"""

IOCONFIG = r"""
    start: program_configuration*
    program_configuration: "PROGRAM"i [RETENTION] IDENT ["WITH"i IDENT] ":" IDENT [conf_elements] ";"
    RETENTION.2: /(?i:RETAIN|NON_RETAIN)\b/
    conf_elements: "(" [conf_element ("," conf_element)*] ")"
    conf_element: IDENT ":=" value
    value: INTEGER | REAL | STRING | IDENT
""" + COMMON

VARS = r"""
    start: global_block*
    global_block: VAR_GLOBAL [QUALIFIER] declaration* END_VAR
    VAR_GLOBAL.2: /(?i:VAR_GLOBAL)\b/
    END_VAR.2: /(?i:END_VAR)\b/
    QUALIFIER.2: /(?i:CONSTANT|RETAIN|NON_RETAIN)\b/
    declaration: IDENT ("," IDENT)* [location] ":" type_spec [":=" init] ";"
    location: AT DIRECT
    AT.2: /(?i:AT)\b/
    DIRECT: /%[IQM]([XBWDL]?)[0-9]+(\.[0-9]+)*/
    type_spec: IDENT ["(" INTEGER ")"] | "ARRAY"i "[" INTEGER ".." INTEGER "]" "OF"i IDENT
    init: INTEGER | REAL | STRING | IDENT | "TRUE"i | "FALSE"i
""" + COMMON


def main(argv):
    if len(argv) < 3 or argv[1] not in ("ioconfig", "vars"):
        print(__doc__)
        return 2
    parser = Lark(IOCONFIG if argv[1] == "ioconfig" else VARS, parser="lalr")
    failed = 0
    for path in argv[2:]:
        with open(path, "rb") as f:
            text = f.read().decode("cp1252")
        try:
            parser.parse(text)
        except LarkError as e:
            print(f"{path}: {e}")
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

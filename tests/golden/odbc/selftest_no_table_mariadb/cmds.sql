# The built-in parameter test without its table on MariaDB: each test
# function stops at its first failing call and reports it. The driver adds a
# LIMIT clause to every statement while a row limit is set, which the server
# refuses for DDL, so the table is dropped with MAXROWS 0.
connect @DSN@
maxrows 0
drop table emp;
cmdfile o:

# The built-in parameter test without its table: each test function stops at
# its first failing call and reports it.
connect @DSN@
drop table emp;
cmdfile o:

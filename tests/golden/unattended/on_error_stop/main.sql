# The first failed command, here in a nested command file, ends the session:
# both files are closed, the connection is closed, status 3.
connect @DSN@
select 1 as one;
cmdfile nested.sql
echo not reached

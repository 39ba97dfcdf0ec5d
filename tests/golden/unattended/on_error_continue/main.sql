# Everything runs; the summary counts the failed commands (empty lines and
# comments are not commands) and the status is 1.
connect @DSN@
cmdfile nested.sql

repeat 2
select 1 as one;
select bogus from nowhere;
end
cmdfile missing.sql
echo done

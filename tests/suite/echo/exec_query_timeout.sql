# needs: postgresql
# QUERYTIMEOUT applies to the statements after it; 0 is passed on as well,
# which for this driver means no limit.
connect ${WSQL_DSN}
querytimeout 1
select pg_sleep(3) as slept;
querytimeout 0
select pg_sleep(1.2) as slept;

# Job 2 ends its own connection in its third pass; the others go on.
select 1;
select pg_terminate_backend(pg_backend_pid()) where ${WSQL_JOB} = 2 and ${WSQL_PASS} = 3;

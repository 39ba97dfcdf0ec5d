# needs: postgresql
# A row that fails while fetching: the rows before it stand, the diagnostics
# follow, then the count of rows fetched. The driver fetches two rows at a
# time through a cursor, so the third row fails in SQLFetch.
customconnect "DSN=${WSQL_DSN};UseDeclareFetch=1;Fetch=2"
select case when x = 3 then 1 / (x - 3) else x end as v from generate_series(1, 5) x;
select empno from emp;

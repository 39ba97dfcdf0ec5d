# Rows stream in blocks, so a division by zero in row 150 fails the fetch
# after 100 rows were printed: the command counts as failed.
customconnect "DSN=@DSN@;UseDeclareFetch=1;Fetch=100;"
select 1/(n-150) from generate_series(1,200) n;
select 'after';

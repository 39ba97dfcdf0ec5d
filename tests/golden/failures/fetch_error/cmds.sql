# A fetch that fails after two rows: the two rows stand, the diagnostics and
# the count of two follow. Failures while printing do not fail the statement,
# so even SQLSTATE 08003 there leaves the session connected.
connect testdrv
select id from three_rows;
select id from one_row;

# A failure at each step of a statement: allocating its handle, preparing,
# describing a column, dropping the handle, a warning from prepare, setting
# the row limit and the query time-out; and SQL_NO_DATA from the execution,
# which is a success.
connect testdrv
select 1 as no_handle;
selec 2;
select 1 as n;
select 1 as a, 2 as b;
select 1 as prepared_with_warning;
update emp set ename = 'x' where 1 = 0;
connect testdrv
select 1 as no_row_limit;
connect testdrv
querytimeout 5
select 1 as no_timeout;

select 2 as two;
select bogus from nowhere;

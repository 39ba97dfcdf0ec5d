select 2 as two;
select bogus from nowhere;
echo not reached either

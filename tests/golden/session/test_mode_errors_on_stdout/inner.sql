errfile
select 3;

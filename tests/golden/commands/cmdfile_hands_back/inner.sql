errfile inner.err
select * from missing_in_file;
connect other
select count(*) as tables_in_other from sqlite_master;

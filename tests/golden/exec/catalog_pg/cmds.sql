# SHOW/LIST TABLES and DESCRIBE of tables on PostgreSQL. The catalog column
# holds the run's own database name, so the results go to a file that the
# check compares with that name replaced.
connect pg
create table cat_t (a integer not null, b varchar(10), c integer);
create unique index cat_t_ab on cat_t (a, b);
create unique index cat_t_c on cat_t (c);
create view cat_v as select a from cat_t;
resfile res.txt
show tables "%".public."cat%"
list tables "%".public.emp;
show tables "%".public.no_such_table
maxrows 2
show tables
maxrows 100
describe public.dept
describe emp
describe cat_t
describe no_such_table
resfile

# needs: sqlite
# SHOW/LIST TABLES with and without patterns, DESCRIBE of tables with and
# without unique indexes, and of a table that does not exist.
connect ${WSQL_DSN}
create table cat_t (a integer not null, b varchar(10), c integer);
create unique index cat_t_ab on cat_t (a, b);
create unique index cat_t_c on cat_t (c);
create view cat_v as select a from cat_t;
show tables x.y."cat%"
list tables x.y.emp;
show tables x.y.no_such_table
show tables
describe dept
describe emp
describe cat_t
describe no_such_table
drop view cat_v;
drop table cat_t;

# SHOW/LIST TABLES and DESCRIBE of tables on MariaDB, where the catalog is the
# database and there are no schemas. The driver adds a LIMIT clause to every
# statement while a row limit is set, which the server refuses for DDL, so
# the tables are made with MAXROWS 0.
connect mariadb
maxrows 0
create table cat_t (a integer not null, b varchar(10), c integer);
create unique index cat_t_ab on cat_t (a, b);
create unique index cat_t_c on cat_t (c);
create view cat_v as select a from cat_t;
maxrows 100
show tables @DATABASE@."%"."cat%"
list tables @DATABASE@."%".emp;
show tables @DATABASE@."%".no_such_table
show tables no_such_database."%"."%"
maxrows 2
show tables
maxrows 100
describe dept
describe emp
describe cat_t
describe cat_v
describe @DATABASE@.x.dept
describe no_such_table

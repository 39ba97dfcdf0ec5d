# needs: postgresql mariadb
# Doubles in csv and json as the shortest text that reads back to the same
# number (tsv keeps 15 significant digits).
connect ${WSQL_DSN}
maxrows 0
create table exact_f (id integer, d double precision);
insert into exact_f values (1, 1.7976931348623157e308), (2, 0.30000000000000004), (3, 123456789012345678), (4, -2.5e-300), (5, NULL);
\format csv
select id, d from exact_f order by id;
\format json
select id, d from exact_f order by id;
\format tsv
select id, d from exact_f order by id;
drop table exact_f;

# needs: sqlite
# SQLite keeps no column to its declared size: csv, json and aligned read
# such text and bytes whole, where tsv cuts the text and marks the cut.
connect ${WSQL_DSN}
create table exact_l (a varchar(16), b varbinary(4), c nvarchar(4));
insert into exact_l values (printf('%.100c', 'a'), x'0102030405060708', 'wide text past four');
\format csv
select * from exact_l;
\format json
select * from exact_l;
\format aligned
select a, b from exact_l;
\format tsv
select * from exact_l;
drop table exact_l;

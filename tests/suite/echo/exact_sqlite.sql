# needs: sqlite
# SQLite keeps no column to its declared size or type: csv, json and aligned
# read text and bytes whole and integers as 64 bits, where tsv cuts the text
# and marks the cut and reads an INTEGER column as 32 bits.
connect ${WSQL_DSN}
create table exact_l (a varchar(16), b varbinary(4), c nvarchar(4), n integer, s smallint);
insert into exact_l values (printf('%.100c', 'a'), x'0102030405060708', 'wide text past four', 123456789012345678, 70000);
\format csv
select * from exact_l;
\format json
select * from exact_l;
\format aligned
select a, b, n from exact_l;
\format tsv
select * from exact_l;
drop table exact_l;

# needs: mariadb
# Types as the MariaDB driver reports them, with edge values. The driver adds
# a LIMIT clause to every statement while a row limit is set, which the
# server refuses for DDL, so the table is made with MAXROWS 0.
connect ${WSQL_DSN}
maxrows 0
create table tm (a tinyint unsigned, b mediumint, c year, d enum('x', 'yy'), e set('p', 'q'), f char(3), g binary(3), h varbinary(4), i decimal(30,10), j datetime(6), k time(1), l timestamp(3) null, m json, n longtext);
insert into tm values (255, -8388608, 2024, 'yy', 'p,q', 'x', X'41', X'414243', 12345678901234567890.0123456789, '2024-02-29 12:00:01.5', '23:59:58.5', '2024-02-29 12:00:01.25', '{"k": [1, 2]}', 'long text');
insert into tm values (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
maxrows 100
# Binary values arrive as their raw bytes, so binary(3) pads with NUL bytes,
# where the printed text ends.
select * from tm;
describe select * from tm;
select 0.1e0 as d, cast(0.1 as float) as r, 1e20 as big, 123.456 as n, date '0099-12-31' as dt, time '00:00:00' as tm, 'é€' as u;
maxrows 0
drop table tm;

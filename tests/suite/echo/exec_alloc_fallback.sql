# needs: sqlite
# Column sizes that give no usable buffer size (negative, or too large for
# 32 bits once the terminator is added) get a buffer of 32767 bytes and a
# notice; longer values of such a column show cut and marked.
connect ${WSQL_DSN}
create table z (a integer, b nvarchar(-5), c varchar(4294967295));
insert into z values (1, 'def', 'ghi');
insert into z values (2, replace(hex(zeroblob(40000)), '00', 'q'), NULL);
describe select b, c from z;
select a, length(b) as len, c from z;
select b, c from z where a = 1;
select b from z where a = 2;
drop table z;

# Large-column files on SQLite: long text as the driver's bytes (32765 a
# chunk), long binary raw (32766 a chunk). Row 1: a two-byte character across
# the first chunk boundary; row 2: NULLs (no files); row 3: empty values
# (empty files); rows 4 and 5: 100000 bytes and binary values of one chunk and
# of one chunk plus one byte.
connect sqlite
create table lc (id integer, t longvarchar, b longvarbinary);
insert into lc values (1, replace(hex(zeroblob(32764)), '00', 'a') || 'é' || replace(hex(zeroblob(100)), '00', 'b'), X'00FF7F80DEADBEEF');
insert into lc values (2, NULL, NULL);
insert into lc values (3, '', X'');
insert into lc values (4, replace(hex(zeroblob(100000)), '00', 'x'), zeroblob(32766));
insert into lc values (5, 'short ü', zeroblob(32767));
select id, t, b, id * 10 as after from lc order by id;

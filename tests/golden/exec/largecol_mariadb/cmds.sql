# Large-column files on MariaDB: longtext arrives as long wide text (UTF-16
# files), longblob as long binary (32766 bytes a chunk). Row 1: a surrogate
# pair across the first chunk boundary; row 2: NULLs (no files); row 3: empty
# values (empty files); rows 4 and 5: 100000 characters and binary values of
# one chunk and of one chunk plus one byte. The driver adds a LIMIT clause to
# every statement while a row limit is set, which the server refuses for DDL,
# so the table is made with MAXROWS 0.
connect mariadb
maxrows 0
create table lc (id integer, t longtext, b longblob);
maxrows 100
insert into lc values (1, concat(repeat('a', 16381), char(0xF09F9880 using utf8mb4), char(0xC3A9 using utf8mb4), char(0xE282AC using utf8mb4), repeat('b', 20000), char(0xCEA9 using utf8mb4)), unhex(repeat('00ff7f80', 25000)));
insert into lc values (2, NULL, NULL);
insert into lc values (3, '', '');
insert into lc values (4, repeat('x', 100000), unhex(repeat('ab', 32766)));
insert into lc values (5, concat('short ', char(0xC3BC using utf8mb4)), unhex(repeat('cd', 32767)));
# Files of the same name are replaced, whether the new value is longer or
# shorter; files no later value replaces stay: the first run in descending
# order leaves in row 2 what the second run (row 2 is NULL) does not replace.
select id, t, b from lc order by id desc;
select id, t, b, id * 10 as after from lc order by id;

# Large-column files on PostgreSQL: text arrives as long wide text (UTF-16
# files, 16382 units a chunk), bytea as long binary (32766 bytes a chunk).
# Row 1: a surrogate pair across the first chunk boundary; row 2: NULLs (no
# files); row 3: empty values (empty files); rows 4 and 5: 100000 characters
# and binary values of one chunk and of one chunk plus one byte.
connect pg
create table lc (id integer, t text, b bytea);
insert into lc values (1, repeat('a', 16381) || U&'\+01F600\00E9\20AC' || repeat('b', 20000) || U&'\03A9', decode(repeat('00ff7f80', 25000), 'hex'));
insert into lc values (2, NULL, NULL);
insert into lc values (3, '', ''::bytea);
insert into lc values (4, repeat('x', 100000), decode(repeat('ab', 32766), 'hex'));
insert into lc values (5, U&'short \00FC', decode(repeat('cd', 32767), 'hex'));
# Files of the same name are replaced, whether the new value is longer or
# shorter; files no later value replaces stay: the first run in descending
# order leaves in row 2 what the second run (row 2 is NULL) does not replace.
select id, t, b from lc order by id desc;
select id, t, b, id * 10 as after from lc order by id;

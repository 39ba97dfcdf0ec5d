-- Values SQLite holds past their declared size and type: text longer than
-- varchar(4), 64-bit values in an integer column; control characters,
-- quotes and line ends. (Its driver hands doubles over with 15 digits.)
create table readback (id integer, t text, v varchar(4), d double, b integer);
insert into readback values
  (1, 'Ünïcödé € 漢字', 'longer than four', 1234.5, -9223372036854775808),
  (2, 'comma, "quote"' || char(10) || 'line' || char(9) || 'tab' || char(13, 10) || 'crlf' || char(1), 'ab', -1.5e-7, 9223372036854775807),
  (3, '', '', 1e300, 0),
  (4, NULL, NULL, NULL, NULL);

-- Values the specified tsv rules would not print as they are held.
create table readback (id int, t text, n1 numeric(1,1), n2 numeric(3,3), n3 numeric(30,10),
  d double precision, r real, b bigint, x bytea);
insert into readback values
  (1, '😀x a𝄞b', -0.5, -0.123, 12345678901234567890.1234567890, 1.7976931348623157e308,
   3.4028235e38, -9223372036854775808, '\x0102ff'),
  (2, E'comma, "quote"\nline\ttab', 0.5, 0.001, -0.0000000001, -0.0, 1e-45, 9223372036854775807, '\x'),
  (3, '', 0, 0, 0, 0.1 + 0.2, 0.1, 0, NULL),
  (4, NULL, NULL, NULL, NULL, 123456789012345678, NULL, NULL, NULL);

-- Values the specified tsv rules would not print as they are held.
create table readback (id int, t text, n1 decimal(1,1), n2 decimal(3,3), n3 decimal(30,10),
  d double, b bigint, u bigint unsigned, ui int unsigned, us smallint unsigned, ti tinyint,
  x varbinary(8)) default charset=utf8mb4;
insert into readback values
  (1, '😀x a𝄞b', -0.5, -0.123, 12345678901234567890.1234567890, 1.7976931348623157e308,
   -9223372036854775808, 18446744073709551615, 4294967295, 65535, -128, x'0102ff'),
  (2, 'comma, "quote"\nline\ttab', 0.5, 0.001, -0.0000000001, -0.0, 9223372036854775807,
   9223372036854775808, 0, 0, 127, x''),
  (3, '', 0, 0, 0, 0.1 + 0.2, 0, 0, 0, 0, 0, NULL),
  (4, NULL, NULL, NULL, NULL, 123456789012345678, NULL, NULL, NULL, NULL, NULL, NULL);

-- Common test data of the golden cases, SQLite form. Built once into the
-- template database file; every case run works on a fresh copy of it.
-- Keep the same tables, columns and rows in pg.sql and mariadb.sql.

-- One row, no index.
CREATE TABLE emp (
  empno integer,
  ename varchar(20)
);
INSERT INTO emp VALUES (1, 'Emp1-1');

-- A unique index, a NOT NULL column and a NULL value.
CREATE TABLE dept (
  deptno integer NOT NULL,
  dname varchar(20) NOT NULL,
  loc varchar(20)
);
CREATE UNIQUE INDEX dept_deptno_ux ON dept (deptno);
INSERT INTO dept VALUES
  (10, 'ACCOUNTING', 'NEW YORK'),
  (20, 'RESEARCH', 'DALLAS'),
  (30, 'SALES', NULL);

-- One column of each common type; row 3 is NULL throughout. SQLite has no
-- boolean: 1 and 0 stand for true and false.
CREATE TABLE alltypes (
  id integer NOT NULL,
  c_smallint smallint,
  c_int integer,
  c_bigint bigint,
  c_char char(10),
  c_varchar varchar(40),
  c_text text,
  c_numeric numeric(10,2),
  c_real real,
  c_double double,
  c_date date,
  c_time time,
  c_timestamp timestamp,
  c_bool boolean,
  c_blob blob
);
INSERT INTO alltypes VALUES
  (1, 1, 100, 9000000000, 'abc', 'first row', 'Some text', 12.34, 1.5, 2.25,
   '2024-01-15', '13:45:30', '2024-01-15 13:45:30', 1, X'0102FF'),
  (2, -32768, -2147483648, -9000000000, 'xyz', 'Ünïcödé €', '', -0.50, -3.25, 1234567.875,
   '1999-12-31', '00:00:00', '1999-12-31 23:59:59', 0, X'00'),
  (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
   NULL, NULL, NULL, NULL, NULL);

# User names and passwords given with CONNECT: SQLite ignores them, the
# PostgreSQL and MariaDB servers check them against the role of the test data.
connect wsql*wrongpw@@DSN@
select ename from emp;
connect nobody@@DSN@
connect wsql*wsqlpw@@DSN@
select ename from emp;

# Connecting by connect string; a CONNECT afterwards uses the data source
# name again; a connect string naming no known data source.
customconnect "DSN=@DSN@;"
select ename from emp;
connect @DSN@
select ename from emp;
customconnect "DSN=nosuch;"
select ename from emp;
disconnect

# SQLSTATE 08003 from a statement marks the session not connected; the
# commands after it are refused without a call to the driver. The driver
# manager still holds the connection, so connecting again is refused by it.
connect testdrv
select * from emp;
select * from emp;
describe emp
describe select * from emp;
show tables
connect testdrv

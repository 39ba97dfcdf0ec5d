# SQLSTATE 08003 while preparing the query of DESCRIBE marks the session not
# connected; the statement after it is refused without a call to the driver.
connect testdrv
describe select * from emp;
select * from emp;

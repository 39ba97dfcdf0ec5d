# With the error class masked out (-x d) nothing reaches the error stream,
# yet the 08003 of the first statement is still read and marks the session
# not connected: `check` finds that the second statement never reached the
# driver.
connect testdrv
select * from emp;
select * from emp;

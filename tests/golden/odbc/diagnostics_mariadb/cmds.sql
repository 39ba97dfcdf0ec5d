# Server messages raised by a procedure, when it is called and when the
# driver runs it at connect time (INITSTMT), exercise the trailing bracketed
# native code: a number replaces the native code, letters give 0, a sign is
# read, only the last bracket counts, an over-long number wraps like a 32-bit
# integer, and a message whose only brackets are the driver's and server's
# prefixes is cut at the last of them. CREATE and CALL run with MAXROWS 0,
# since the driver adds a LIMIT clause to them while a row limit is set.
connect @DSN@
maxrows 0
create procedure boom(msg varchar(128)) signal sqlstate '45000' set message_text = msg;
call boom('ends in a number [1234]');
call boom('ends in a bracket]');
maxrows 100
customconnect "DSN=@DSN@;INITSTMT=call boom('ends in letters [abc]')"
select ename from emp;
customconnect "DSN=@DSN@;INITSTMT=call boom('signed[ -42]')"
customconnect "DSN=@DSN@;INITSTMT=call boom('two [1] brackets [99999999999]')"
connect @DSN@
select ename from emp;

# Warnings of a connection that succeeds are shown, and the session stays
# connected. The server's messages, raised by settings run at connect time,
# exercise the trailing bracketed native code: a number replaces the native
# code, letters give 0, only the last bracket counts, and an over-long number
# wraps like a 32-bit integer. The driver hands a long message over as
# several records, each printed as a block of its own.
connect @DSN@
create function boom(msg text) returns int language plpgsql as $$ begin raise exception '%', msg; end $$;
customconnect "DSN=@DSN@;ConnSettings=select boom('ends in a number [1234]')"
select ename from emp;
customconnect "DSN=@DSN@;ConnSettings=select boom('ends in letters [abc]')"
customconnect "DSN=@DSN@;ConnSettings=select boom('signed[ -42]')"
customconnect "DSN=@DSN@;ConnSettings=select boom('two [1] brackets [99999999999]')"
connect @DSN@
select boom(repeat('x', 600));

# An error while rows are fetched fails the command: with stop, the session
# ends there and the next statement does not run.
customconnect "DSN=@DSN@;StepAPI=1;"
select abs(-9223372036854775808);
select 'not run';

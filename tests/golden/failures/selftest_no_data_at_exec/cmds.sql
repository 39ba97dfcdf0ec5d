# The parameter-binding self-test: the first function passes its four steps;
# the second fails at its first step, since the driver does not support data
# at execution.
connect testdrv
cmdfile o:

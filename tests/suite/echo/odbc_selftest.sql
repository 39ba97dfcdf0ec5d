# The built-in parameter test: refused while not connected, then run with
# an ignored argument and without one.
cmdfile o:
connect ${WSQL_DSN}
cmdfile o:ignored
cmdfile o:

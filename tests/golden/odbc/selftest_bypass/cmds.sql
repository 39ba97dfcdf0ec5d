# With every output class masked and results sent to a file, the lines of
# the built-in parameter test still go to standard output.
connect @DSN@
resfile results.txt
cmdfile o:

# With -u 0 the 4-byte wide strings go to the driver manager unconverted,
# which reads them as UTF-16: it sees only the first letter of each name.
connect @DSN@
customconnect "DSN=@DSN@;"
multiconnect 1 @DSN@

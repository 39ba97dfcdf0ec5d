# MULTICONNECT counts as failed exactly when a connection of it fails.
multiconnect 1 @DSN@
multiconnect 2 nosuch
multidisconnect

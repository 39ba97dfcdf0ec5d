# A set of three, closed newest first; MULTIDISCONNECT with no set; a set
# of none; a set given again replaces the earlier one; a missing data source.
multiconnect 3 @DSN@
multidisconnect
multidisconnect
multiconnect 0 @DSN@
multidisconnect
multiconnect 2 wsql*wsqlpw@@DSN@
multiconnect 3 @DSN@
multidisconnect
multiconnect 2 nosuch
multidisconnect

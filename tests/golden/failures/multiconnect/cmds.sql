# MULTICONNECT 3 whose third connection fails keeps the two it made; a
# MULTIDISCONNECT whose first disconnect fails stops there and leaves the set,
# which the next MULTIDISCONNECT closes.
multiconnect 3 testdrv
multidisconnect
multiconnect 2 testdrv
multidisconnect
multidisconnect

connect nosuch
disconnect

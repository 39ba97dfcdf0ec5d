cmdfile self.sql

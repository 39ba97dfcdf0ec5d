# Includes itself: each level opens the next until the nesting limit.
cmdfile self.sql
echo leaving a level of self.sql

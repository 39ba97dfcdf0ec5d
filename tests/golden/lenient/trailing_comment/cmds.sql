connect @DSN@
# A "--" comment after the closing ";" ends the statement; inside quotes,
# or before the ";", it does not.
select 1 as one; -- the first
select '--x;' as a, 2 as b
  ; -- the second
select 3 -- not yet
;

resfile inner.out
echo to inner file

# Results after the first come through SQLMoreResults, while the driver says
# it supports that function; its failure just ends the results.
connect testdrv
exec batch_with_three_results;
exec batch_whose_third_result_fails;
exec row_count_fails;
exec column_count_fails;
# Reconnected: the driver does not support SQLMoreResults.
connect testdrv
exec batch_with_three_results;

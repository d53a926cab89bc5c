-- The means each DUT was judged by, as measured. The *_avg columns keep them
-- truncated toward zero, as the daily log prints them; a mean of -75.45 dBm
-- is -75 there and fails a lower limit of -75 here. NULL where the figure was
-- never measured, and in the rows of stations that did not record them yet.

ALTER TABLE duts ADD COLUMN rx_rssi_mean DOUBLE PRECISION;
ALTER TABLE duts ADD COLUMN freq_mean DOUBLE PRECISION;
ALTER TABLE duts ADD COLUMN tx_rssi_mean DOUBLE PRECISION;

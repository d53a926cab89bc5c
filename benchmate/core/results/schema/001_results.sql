-- The station's results: one row per test cycle that ended on its own, one
-- row per DUT of it. The same tables serve a station's own SQLite file and
-- the factory's shared PostgreSQL database; {{id}} and {{timestamp}} become
-- each one's key and time types. Times are UTC.

CREATE TABLE cycles (
    id {{id}},
    -- A cycle is known everywhere by its station and its own unique id, so
    -- that forwarding it twice stores it once.
    station_id TEXT NOT NULL,
    cycle_uid TEXT NOT NULL,
    -- The heading number of the daily log: the total counter before the cycle.
    number BIGINT NOT NULL,
    started_at {{timestamp}} NOT NULL,
    ended_at {{timestamp}} NOT NULL,
    golden_mac TEXT NOT NULL,
    -- '' when the cycle ran through; else what went wrong with the cycle as a
    -- whole ('golden machine', 'did not finish', 'results missing').
    cycle_error TEXT NOT NULL,
    -- The limits in force; the RSSI limits before each DUT's offsets.
    rx_rssi_min DOUBLE PRECISION NOT NULL,
    rx_rssi_max DOUBLE PRECISION NOT NULL,
    freq_min DOUBLE PRECISION NOT NULL,
    freq_max DOUBLE PRECISION NOT NULL,
    tx_rssi_min DOUBLE PRECISION NOT NULL,
    tx_rssi_max DOUBLE PRECISION NOT NULL,
    -- The ramcode image loaded into every DUT and the chip tool that did it.
    image_path TEXT NOT NULL,
    image_sha256 TEXT NOT NULL,
    image_size BIGINT NOT NULL,
    tool_version TEXT NOT NULL,
    dut_count INTEGER NOT NULL,
    UNIQUE (station_id, cycle_uid)
);

CREATE TABLE duts (
    id {{id}},
    cycle_id BIGINT NOT NULL REFERENCES cycles (id) ON DELETE CASCADE,
    -- Order within the cycle; the slot is the device table row - 1.
    position INTEGER NOT NULL,
    slot INTEGER,
    device TEXT NOT NULL,
    port TEXT NOT NULL,
    mac TEXT NOT NULL,
    flash_uid TEXT NOT NULL,
    -- The crystal value accepted and written to OTP; NULL when none was.
    crystal INTEGER,
    -- The DUT's calibration offsets, added to the RSSI limits.
    tx_cal INTEGER NOT NULL,
    rx_cal INTEGER NOT NULL,
    -- Figures of the last RX measurement (NULL when the crystal search never
    -- ran) and of the TX measurement (NULL when the TX test did not run).
    rx_rssi_min INTEGER,
    rx_rssi_max INTEGER,
    rx_rssi_avg INTEGER,
    freq_min INTEGER,
    freq_max INTEGER,
    freq_avg INTEGER,
    tx_rssi_min INTEGER,
    tx_rssi_max INTEGER,
    tx_rssi_avg INTEGER,
    -- 'pass', 'fail' or 'not run' for each step.
    download_status TEXT NOT NULL,
    mac_status TEXT NOT NULL,
    calibration_status TEXT NOT NULL,
    tx_status TEXT NOT NULL,
    -- 'pass', 'fail' (outside the limits) or 'error' (a step failed).
    verdict TEXT NOT NULL,
    -- '' for a pass; else 'download', 'mac', 'calibration', 'tx', 'limits'
    -- or 'cycle', and the DUT's log (for 'cycle' the golden machine's).
    failed_step TEXT NOT NULL,
    failure_log TEXT NOT NULL,
    UNIQUE (cycle_id, position)
);

-- How far the cycles of this database went over to a factory database:
-- every cycle up to last_cycle_id is there. Only a station's own file uses it.
CREATE TABLE forward_marks (
    target TEXT PRIMARY KEY,
    last_cycle_id BIGINT NOT NULL
);

-- What the golden machine's drift is watched by, per cycle: the crystal value
-- it read from its own OTP, and for each figure the mean, over the cycle's
-- DUTs that measured it, of each DUT's mean less the DUT's calibration
-- offset (the slot's cable and fixture). A golden machine that drifts moves
-- these together at every slot; NULL where the cycle never read or measured
-- them, and in the cycles of stations that did not record them yet.

ALTER TABLE cycles ADD COLUMN golden_crystal INTEGER;
ALTER TABLE cycles ADD COLUMN rx_rssi_cycle_mean DOUBLE PRECISION;
ALTER TABLE cycles ADD COLUMN freq_cycle_mean DOUBLE PRECISION;
ALTER TABLE cycles ADD COLUMN tx_rssi_cycle_mean DOUBLE PRECISION;

-- The station folder that recorded the cycle (its results file's own uid):
-- two folders reporting under one station id are told apart by it.
ALTER TABLE cycles ADD COLUMN folder_uid TEXT;

-- A station's own file: the uid of its folder, one row, made with the file.
CREATE TABLE station_folder (
    folder_uid TEXT NOT NULL
);

-- The factory's: each station folder's own count of its cycles, as it last
-- said on a check of what the factory holds, so that a report can list the
-- stations whose local and factory counts differ.
CREATE TABLE station_counts (
    station_id TEXT NOT NULL,
    folder_uid TEXT NOT NULL,
    local_count BIGINT NOT NULL,
    reported_at {{timestamp}} NOT NULL,
    PRIMARY KEY (station_id, folder_uid)
);

-- The factory's: each run of the administrator's set-up (the roles and
-- logins besides the tables), who ran it, and at which schema version.
CREATE TABLE setup_history (
    id {{id}},
    applied_at {{timestamp}} NOT NULL,
    applied_by TEXT NOT NULL,
    schema_version INTEGER NOT NULL,
    station_logins TEXT NOT NULL,
    report_logins TEXT NOT NULL
);

-- A station's own file: the cycles the factory database could not store,
-- set aside (never blocking the cycles behind them). Each is tried once
-- more after every start of the station.
CREATE TABLE set_aside (
    target TEXT NOT NULL,
    cycle_uid TEXT NOT NULL,
    reason TEXT NOT NULL,
    set_at {{timestamp}} NOT NULL,
    PRIMARY KEY (target, cycle_uid)
);

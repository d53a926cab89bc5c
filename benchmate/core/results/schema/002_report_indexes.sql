-- What the yield report and a traceability query look up: cycles by time and
-- station, a module's tests by its flash UID.

CREATE INDEX cycles_started_at ON cycles (started_at);
CREATE INDEX cycles_station ON cycles (station_id, started_at);
CREATE INDEX duts_flash_uid ON duts (flash_uid);

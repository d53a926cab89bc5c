-- A station's own file: where its folder lives (the PC and the file's path),
-- beside its uid. A folder copied whole carries its file, and the uid in it,
-- along; a station that finds itself started from another place than the
-- one noted takes a new folder uid there, so that a copy and its original
-- are told apart. NULL until a station notes it.
ALTER TABLE station_folder ADD COLUMN place TEXT;

-- A reports database as made by the collector before report ids, versions and mail imports:
-- its schema and four reports (three through its endpoint, one inserted as a year old).
CREATE TABLE reports (
            id INTEGER PRIMARY KEY,
            time TEXT NOT NULL,
            prj TEXT NOT NULL,
            reason TEXT NOT NULL,
            os TEXT NOT NULL);
CREATE TABLE report_counts (
            kind TEXT NOT NULL,
            day TEXT NOT NULL,
            prj TEXT NOT NULL,
            value TEXT NOT NULL,
            n BIGINT NOT NULL,
            PRIMARY KEY (kind, day, prj, value));
CREATE INDEX report_counts_prj ON report_counts (kind, prj, day);
CREATE INDEX reports_time ON reports (time);
CREATE INDEX reports_prj_time ON reports (prj, time);
CREATE INDEX reports_other_time ON reports (time) WHERE substr(reason, 1, 6) = 'Other:';
CREATE INDEX reports_other_prj_time ON reports (prj, time) WHERE substr(reason, 1, 6) = 'Other:';
INSERT INTO reports (id, time, prj, reason, os) VALUES (1, '2026-12-07T16:32:01Z', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'546f6f20657870656e73697665' AS TEXT), CAST(X'57696e646f7773205850' AS TEXT));
INSERT INTO reports (id, time, prj, reason, os) VALUES (2, '2026-12-07T16:32:01Z', CAST(X'436166e920546f6f6c' AS TEXT), CAST(X'4f746865723a206e61ef76652080' AS TEXT), CAST(X'556e6b6e6f776e' AS TEXT));
INSERT INTO reports (id, time, prj, reason, os) VALUES (3, '2026-12-07T16:32:01Z', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'4f746865723a20736c6f77' AS TEXT), CAST(X'57696e646f7773203938' AS TEXT));
INSERT INTO reports (id, time, prj, reason, os) VALUES (4, '2025-12-01T10:00:00Z', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'556e737461626c65' AS TEXT), CAST(X'57696e646f77732032303030' AS TEXT));
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('day', '2026-12-07', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'' AS TEXT), 2);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('reason', '2026-12-07', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'546f6f20657870656e73697665' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('os', '2026-12-07', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'57696e646f7773205850' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('day', '2026-12-07', CAST(X'436166e920546f6f6c' AS TEXT), CAST(X'' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('reason', '2026-12-07', CAST(X'436166e920546f6f6c' AS TEXT), CAST(X'4f74686572' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('os', '2026-12-07', CAST(X'436166e920546f6f6c' AS TEXT), CAST(X'556e6b6e6f776e' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('reason', '2026-12-07', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'4f74686572' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('os', '2026-12-07', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'57696e646f7773203938' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('day', '2025-12-01', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('reason', '2025-12-01', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'556e737461626c65' AS TEXT), 1);
INSERT INTO report_counts (kind, day, prj, value, n) VALUES ('os', '2025-12-01', CAST(X'4e657420546f6f6c' AS TEXT), CAST(X'57696e646f77732032303030' AS TEXT), 1);
CREATE TRIGGER reports_counted AFTER INSERT ON reports BEGIN INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('day', substr(NEW.time, 1, 10), NEW.prj, '', 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;
INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('reason', substr(NEW.time, 1, 10), NEW.prj, CASE WHEN substr(NEW.reason, 1, 6) = 'Other:' THEN 'Other'
                          WHEN length(CAST(NEW.reason AS BLOB)) <= 100 THEN NEW.reason
                          ELSE CAST(substr(CAST(NEW.reason AS BLOB), 1, 100) AS TEXT) END, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;
INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('os', substr(NEW.time, 1, 10), NEW.prj, NEW.os, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1; END;
CREATE TRIGGER reports_uncounted AFTER DELETE ON reports BEGIN UPDATE report_counts SET n = n - 1 WHERE kind = 'day' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = '';
DELETE FROM report_counts WHERE kind = 'day' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = '' AND n <= 0;
UPDATE report_counts SET n = n - 1 WHERE kind = 'reason' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = CASE WHEN substr(OLD.reason, 1, 6) = 'Other:' THEN 'Other'
                          WHEN length(CAST(OLD.reason AS BLOB)) <= 100 THEN OLD.reason
                          ELSE CAST(substr(CAST(OLD.reason AS BLOB), 1, 100) AS TEXT) END;
DELETE FROM report_counts WHERE kind = 'reason' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = CASE WHEN substr(OLD.reason, 1, 6) = 'Other:' THEN 'Other'
                          WHEN length(CAST(OLD.reason AS BLOB)) <= 100 THEN OLD.reason
                          ELSE CAST(substr(CAST(OLD.reason AS BLOB), 1, 100) AS TEXT) END AND n <= 0;
UPDATE report_counts SET n = n - 1 WHERE kind = 'os' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = OLD.os;
DELETE FROM report_counts WHERE kind = 'os' AND day = substr(OLD.time, 1, 10) AND prj = OLD.prj AND value = OLD.os AND n <= 0; END;
PRAGMA user_version = 1;

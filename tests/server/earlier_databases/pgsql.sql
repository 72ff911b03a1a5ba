-- A reports database as made by the collector before report ids, versions and mail imports:
-- its schema and four reports (three through its endpoint, one inserted as a year old).


SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

CREATE FUNCTION public.exitpoll_count_report() RETURNS trigger
    LANGUAGE plpgsql
    AS $$
         BEGIN
           IF TG_OP = 'INSERT' THEN
             INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('day', substring(NEW.time from 1 for 10), NEW.prj, ''::bytea, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;
INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('reason', substring(NEW.time from 1 for 10), NEW.prj, CASE WHEN substring(NEW.reason from 1 for 6) = 'Other:'::bytea
                              THEN 'Other'::bytea ELSE substring(NEW.reason from 1 for 100) END, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;
INSERT INTO report_counts (kind, day, prj, value, n)
                VALUES ('os', substring(NEW.time from 1 for 10), NEW.prj, NEW.os, 1) ON CONFLICT (kind, day, prj, value)
                DO UPDATE SET n = report_counts.n + 1;
             RETURN NEW;
           END IF;
           UPDATE report_counts SET n = n - 1 WHERE kind = 'day' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = ''::bytea;
DELETE FROM report_counts WHERE kind = 'day' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = ''::bytea AND n <= 0;
UPDATE report_counts SET n = n - 1 WHERE kind = 'reason' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = CASE WHEN substring(OLD.reason from 1 for 6) = 'Other:'::bytea
                              THEN 'Other'::bytea ELSE substring(OLD.reason from 1 for 100) END;
DELETE FROM report_counts WHERE kind = 'reason' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = CASE WHEN substring(OLD.reason from 1 for 6) = 'Other:'::bytea
                              THEN 'Other'::bytea ELSE substring(OLD.reason from 1 for 100) END AND n <= 0;
UPDATE report_counts SET n = n - 1 WHERE kind = 'os' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = OLD.os;
DELETE FROM report_counts WHERE kind = 'os' AND day = substring(OLD.time from 1 for 10) AND prj = OLD.prj AND value = OLD.os AND n <= 0;
           RETURN OLD;
         END $$;

SET default_tablespace = '';

SET default_table_access_method = heap;

CREATE TABLE public.report_counts (
    kind text NOT NULL,
    day text NOT NULL,
    prj bytea NOT NULL,
    value bytea NOT NULL,
    n bigint NOT NULL
);

CREATE TABLE public.reports (
    id bigint NOT NULL,
    "time" text NOT NULL,
    prj bytea NOT NULL,
    reason bytea NOT NULL,
    os bytea NOT NULL
);

ALTER TABLE public.reports ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME public.reports_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);

INSERT INTO public.report_counts VALUES ('reason', '2026-12-07', '\x4e657420546f6f6c', '\x546f6f20657870656e73697665', 1);
INSERT INTO public.report_counts VALUES ('os', '2026-12-07', '\x4e657420546f6f6c', '\x57696e646f7773205850', 1);
INSERT INTO public.report_counts VALUES ('day', '2026-12-07', '\x436166e920546f6f6c', '\x', 1);
INSERT INTO public.report_counts VALUES ('reason', '2026-12-07', '\x436166e920546f6f6c', '\x4f74686572', 1);
INSERT INTO public.report_counts VALUES ('os', '2026-12-07', '\x436166e920546f6f6c', '\x556e6b6e6f776e', 1);
INSERT INTO public.report_counts VALUES ('day', '2026-12-07', '\x4e657420546f6f6c', '\x', 2);
INSERT INTO public.report_counts VALUES ('reason', '2026-12-07', '\x4e657420546f6f6c', '\x4f74686572', 1);
INSERT INTO public.report_counts VALUES ('os', '2026-12-07', '\x4e657420546f6f6c', '\x57696e646f7773203938', 1);
INSERT INTO public.report_counts VALUES ('day', '2025-12-01', '\x4e657420546f6f6c', '\x', 1);
INSERT INTO public.report_counts VALUES ('reason', '2025-12-01', '\x4e657420546f6f6c', '\x556e737461626c65', 1);
INSERT INTO public.report_counts VALUES ('os', '2025-12-01', '\x4e657420546f6f6c', '\x57696e646f77732032303030', 1);

INSERT INTO public.reports OVERRIDING SYSTEM VALUE VALUES (1, '2026-12-07T16:32:01Z', '\x4e657420546f6f6c', '\x546f6f20657870656e73697665', '\x57696e646f7773205850');
INSERT INTO public.reports OVERRIDING SYSTEM VALUE VALUES (2, '2026-12-07T16:32:01Z', '\x436166e920546f6f6c', '\x4f746865723a206e61ef76652080', '\x556e6b6e6f776e');
INSERT INTO public.reports OVERRIDING SYSTEM VALUE VALUES (3, '2026-12-07T16:32:01Z', '\x4e657420546f6f6c', '\x4f746865723a20736c6f77', '\x57696e646f7773203938');
INSERT INTO public.reports OVERRIDING SYSTEM VALUE VALUES (4, '2025-12-01T10:00:00Z', '\x4e657420546f6f6c', '\x556e737461626c65', '\x57696e646f77732032303030');

SELECT pg_catalog.setval('public.reports_id_seq', 4, true);

ALTER TABLE ONLY public.report_counts
    ADD CONSTRAINT report_counts_pkey PRIMARY KEY (kind, day, prj, value);

ALTER TABLE ONLY public.reports
    ADD CONSTRAINT reports_pkey PRIMARY KEY (id);

CREATE INDEX report_counts_prj ON public.report_counts USING btree (kind, prj, day);

CREATE INDEX reports_other_prj_time ON public.reports USING btree (prj, "time") WHERE (SUBSTRING(reason FROM 1 FOR 6) = '\x4f746865723a'::bytea);

CREATE INDEX reports_other_time ON public.reports USING btree ("time") WHERE (SUBSTRING(reason FROM 1 FOR 6) = '\x4f746865723a'::bytea);

CREATE INDEX reports_prj_time ON public.reports USING btree (prj, "time");

CREATE INDEX reports_time ON public.reports USING btree ("time");

CREATE TRIGGER reports_counted AFTER INSERT OR DELETE ON public.reports FOR EACH ROW EXECUTE FUNCTION public.exitpoll_count_report();


